<?php
/**
 * Who opens a funnel's download page. A Free funnel opens to anyone with its keyed address (an
 * opt-in's thank-you page). A Paid funnel opens only to confirmed buyers, each through their
 * own link; its key opens nothing, and the delivery files on a buyer's page are signed links
 * that work for a short while. The claim page is where a payment service sends a buyer back:
 * it takes them on to their downloads once their payment is confirmed.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * A funnel's access mode: "paid" or "free". A funnel without a stored mode was made before
 * there were modes, when its keyed address was the way in: it stays Free until its owner
 * switches.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_funnel_mode( $post_id ) {
	return 'paid' === get_post_meta( $post_id, #prefix#_meta_key( 'mode' ), true ) ? 'paid' : 'free';
}

/**
 * Whether a funnel opens to confirmed buyers only.
 *
 * @param int $post_id The funnel.
 * @return bool
 */
function #prefix#_is_paid( $post_id ) {
	return 'paid' === #prefix#_funnel_mode( $post_id );
}

/**
 * Sets a funnel's access mode; anything but "free" is Paid, the safe side.
 *
 * @param int    $post_id The funnel.
 * @param string $mode    "paid" or "free".
 */
function #prefix#_set_funnel_mode( $post_id, $mode ) {
	update_post_meta( $post_id, #prefix#_meta_key( 'mode' ), 'free' === $mode ? 'free' : 'paid' );
}

/**
 * A funnel starts Paid the moment it exists (the edit screen's first, empty draft included).
 *
 * @param int     $post_id The funnel.
 * @param WP_Post $post    The funnel.
 * @param bool    $update  Whether the funnel existed before.
 */
function #prefix#_new_funnel_is_paid( $post_id, $post, $update ) {
	if ( ! $update && '' === (string) get_post_meta( $post_id, #prefix#_meta_key( 'mode' ), true ) ) {
		#prefix#_set_funnel_mode( $post_id, 'paid' );
	}
}
add_action( 'save_post_' . #prefix#_post_type(), '#prefix#_new_funnel_is_paid', 4, 3 );

/**
 * The upgrade step: every funnel made before there were modes is stored as Free, as it worked
 * until now.
 */
function #prefix#_upgrade_funnel_modes() {
	$old = get_posts(
		array(
			'post_type'        => #prefix#_post_type(),
			'post_status'      => 'any',
			'numberposts'      => -1,
			'fields'           => 'ids',
			'suppress_filters' => true,
			// phpcs:ignore WordPress.DB.SlowDBQuery.slow_db_query_meta_query -- Runs once, at an upgrade.
			'meta_query'       => array(
				array(
					'key'     => #prefix#_meta_key( 'mode' ),
					'compare' => 'NOT EXISTS',
				),
			),
		)
	);
	foreach ( $old as $post_id ) {
		#prefix#_set_funnel_mode( $post_id, 'free' );
	}
}
add_action( '#prefix#_upgrade', '#prefix#_upgrade_funnel_modes' );

/**
 * The query argument that marks the claim page and holds the reference that ties a buyer's
 * return to their payment (PayPal's custom value).
 *
 * @return string
 */
function #prefix#_claim_arg() {
	return '#prefix#_claim';
}

/**
 * The claim page of a funnel: where a payment service sends a buyer back after paying.
 *
 * @param int    $post_id The funnel.
 * @param string $ref     The claim reference the buyer's payment carries; empty for none
 *                        (Stripe adds its own session_id).
 * @return string
 */
function #prefix#_claim_url( $post_id, $ref = '' ) {
	$query = array(
		'post_type' => #prefix#_post_type(),
		'p'         => (int) $post_id,
	);
	return add_query_arg( $query + array( #prefix#_claim_arg() => '' === $ref ? '1' : rawurlencode( $ref ) ), home_url( '/' ) );
}

/**
 * The claim page's address as Stripe's success address: Stripe puts the Checkout Session's id
 * in place of {CHECKOUT_SESSION_ID}.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_stripe_return_url( $post_id ) {
	return #prefix#_claim_url( $post_id ) . '&session_id={CHECKOUT_SESSION_ID}';
}

/**
 * A new claim reference: 128 random bits as 32 hex digits, new on every showing of the sales
 * page, so no two visitors share one.
 *
 * @return string
 */
function #prefix#_new_claim_ref() {
	return bin2hex( random_bytes( 16 ) );
}

/**
 * A tag with [download_url] and [claim_ref] filled in for one showing of a page. A Free funnel
 * gets its keyed address; a Paid one the claim page with a fresh claim reference, which
 * [claim_ref] (the button's custom value) repeats. Such a page is this visitor's alone and
 * kept out of shared caches.
 *
 * @param int    $post_id The funnel.
 * @param string $tag     The tag as saved.
 * @return string
 */
function #prefix#_fill_tag( $post_id, $tag ) {
	if ( false === strpos( $tag, '[download_url]' ) && false === strpos( $tag, '[claim_ref]' ) ) {
		return $tag;
	}
	if ( ! #prefix#_is_paid( $post_id ) ) {
		return str_replace( '[download_url]', esc_url( #prefix#_keyed_url( $post_id ) ), $tag );
	}
	$ref = #prefix#_new_claim_ref();
	if ( ! headers_sent() ) {
		#prefix#_private_headers();
	}
	return str_replace( array( '[download_url]', '[claim_ref]' ), array( esc_url( #prefix#_claim_url( $post_id, $ref ) ), $ref ), $tag );
}

/**
 * The buyer whose download page this request shows; null for none. The gate sets it once the
 * buyer's link or signed page link was checked.
 *
 * @param array|null $set The buyer to remember, when called by the gate.
 * @return array|null
 */
function #prefix#_current_buyer( $set = null ) {
	static $buyer = null;
	if ( null !== $set ) {
		$buyer = $set;
	}
	return $buyer;
}

/**
 * A signed, short-lived link of a buyer to a funnel's download page ($file empty) or to one of
 * its delivery files.
 *
 * @param array  $buyer The buyer.
 * @param string $file  The delivery file's name; empty for the download page.
 * @param int    $now   The time the link is made, in Unix seconds.
 * @return string
 */
function #prefix#_signed_url( $buyer, $file, $now ) {
	$settings = #prefix#_funnel_settings( $buyer['funnel_id'] );
	$query    = array(
		'post_type' => #prefix#_post_type(),
		'p'         => (int) $buyer['funnel_id'],
	);
	if ( '' !== $file ) {
		$query[ #prefix#_file_arg() ] = rawurlencode( $file );
	}
	$query += #prefix#_file_link_args( $buyer['id'], $buyer['funnel_id'], $file, $settings['link_window'], $now );
	return add_query_arg( $query, home_url( '/' ) );
}

/**
 * A buyer's signed link to each delivery file, in the order the converted download page numbers
 * them.
 *
 * @param array $buyer The buyer.
 * @return string[]
 */
function #prefix#_buyer_file_urls( $buyer ) {
	$now  = time();
	$urls = array();
	foreach ( #prefix#_delivery()['files'] as $file ) {
		$urls[] = #prefix#_signed_url( $buyer, $file, $now );
	}
	return $urls;
}

/**
 * What a buyer is told to do when their access itself ends (refunded, withdrawn, its time or
 * its downloads used up): the seller can give them access again. The refusal page names no
 * e-mail address, so neither does this.
 *
 * @return string
 */
function #prefix#_renewal_advice() {
	return __( 'If you need the files again, please write to the seller the way you bought: they can give you new access.', '#prefix#' );
}

/**
 * What a buyer is told to do when only the link they used is at fault (cut short, changed or
 * past its window): their own link from the e-mail still works.
 *
 * @return string
 */
function #prefix#_reopen_advice() {
	return __( 'Please open your own download link again (from your e-mail): it gives you fresh links to the files.', '#prefix#' );
}

/**
 * Why a buyer may not download now, in the buyer's words, with the status to answer with and
 * what they can do; null when they may.
 *
 * @param array|null $buyer     The buyer, or null when the link names none.
 * @param int        $funnel_id The funnel asked for.
 * @param int        $now       The time, in Unix seconds.
 * @return array|null array( reason, status, advice ).
 */
function #prefix#_buyer_refusal( $buyer, $funnel_id, $now ) {
	if ( ! $buyer || (int) $funnel_id !== $buyer['funnel_id'] ) {
		return array( __( 'This link does not open anything: it may have been copied incompletely.', '#prefix#' ), 403, __( 'Please open the link from your e-mail again, the whole of it. If it still does not open, write to the seller the way you bought: they can send you a new link.', '#prefix#' ) );
	}
	$status = #prefix#_buyer_status( $buyer, $now );
	if ( 'revoked' === $status ) {
		return array( __( 'This link has been withdrawn: the purchase was refunded or cancelled.', '#prefix#' ), 403, #prefix#_renewal_advice() );
	}
	if ( 'expired' === $status ) {
		return array( __( 'The access time of this purchase is over, so this link no longer opens the downloads.', '#prefix#' ), 410, #prefix#_renewal_advice() );
	}
	return null;
}

/**
 * The refusal of a buyer who has used up the downloads of a file, as #prefix#_buyer_refusal()
 * gives it.
 *
 * @param int $limit Downloads allowed of each file.
 * @return array
 */
function #prefix#_used_up_refusal( $limit ) {
	/* translators: %d: how many downloads of each file a purchase allows. */
	return array( sprintf( _n( 'You have downloaded this file %d time, as often as this purchase allows.', 'You have downloaded this file %d times, as often as this purchase allows.', $limit, '#prefix#' ), $limit ), 403, #prefix#_renewal_advice() );
}

/**
 * Whether a buyer has used up the downloads of a file (#prefix#_download_allowed()); null
 * when they may download it, else the refusal. Once it is used up, every request is refused,
 * ranges included. A request that sends bytes is counted by #prefix#_reserve_download(),
 * which asks this again in the same step as it counts.
 *
 * @param array  $buyer The buyer.
 * @param string $file  The delivery file's name.
 * @return array|null
 */
function #prefix#_limit_refusal( $buyer, $file ) {
	$limit               = #prefix#_funnel_settings( $buyer['funnel_id'] )['downloads_per_file'];
	list( $used, $sent ) = #prefix#_file_usage( $buyer['id'], $file );
	$size                = (int) ( #prefix#_delivery_file( $file )['size'] ?? 0 );
	return #prefix#_download_allowed( $used, $sent, $limit, $size ) ? null : #prefix#_used_up_refusal( $limit );
}

/**
 * The bytes a request for a file asks for, by the streamer's own Range rules: array( first
 * byte, number of bytes ), first 0 for a whole download and more for a resumed one; null when
 * it gets none of the file (HEAD, a range past its end, a file not listed, or one the store
 * does not hold as listed), which then costs the buyer nothing.
 *
 * @param string $file The delivery file's name.
 * @return int[]|null
 */
function #prefix#_requested_bytes( $file ) {
	$stored = #prefix#_delivery_file( $file );
	$method = isset( $_SERVER['REQUEST_METHOD'] ) ? sanitize_text_field( wp_unslash( $_SERVER['REQUEST_METHOD'] ) ) : 'GET';
	if ( ! $stored || 'HEAD' === $method || ! is_file( $stored['path'] ) || filesize( $stored['path'] ) !== $stored['offset'] + $stored['size'] ) {
		return null;
	}
	$range = isset( $_SERVER['HTTP_RANGE'] ) ? sanitize_text_field( wp_unslash( $_SERVER['HTTP_RANGE'] ) ) : '';
	$range = #prefix#_delivery_range( $range, $stored['size'] );
	if ( false === $range ) {
		return null;
	}
	return null === $range ? array( 0, $stored['size'] ) : array( $range[0], $range[1] - $range[0] + 1 );
}

/**
 * Streams a delivery file to a buyer whose link was checked. The download is counted before
 * the first byte goes out, and only if the buyer still has one; the streamer then tells the
 * download log how many bytes went out.
 *
 * @param array  $buyer The buyer.
 * @param string $file  The delivery file's name.
 */
function #prefix#_send_to_buyer( $buyer, $file ) {
	$asked   = #prefix#_requested_bytes( $file );
	$context = array(
		'buyer_id'  => $buyer['id'],
		'funnel_id' => $buyer['funnel_id'],
	);
	if ( null !== $asked ) {
		$limit = #prefix#_funnel_settings( $buyer['funnel_id'] )['downloads_per_file'];
		$size  = (int) #prefix#_delivery_file( $file )['size'];
		$row   = #prefix#_reserve_download( $buyer, $file, $asked[0], $asked[1], $limit, $size );
		// Without a limit there is nothing to hold back: a row the database would not add is
		// then added after the stream, as #prefix#_log_delivery() does without one.
		if ( ! $row && $limit > 0 ) {
			$refusal = #prefix#_used_up_refusal( $limit );
			#prefix#_refuse_download( $refusal[0], $refusal[1], $refusal[2] );
		}
		$context += array(
			'first_byte'  => $asked[0],
			'download_id' => $row,
		);
	}
	#prefix#_private_headers();
	#prefix#_send_delivery_file( $file, $context );
	exit;
}

/**
 * Answers a buyer's link, a signed link and the claim page, before anything else looks at the
 * request; and keeps a Paid funnel's key from opening anything. Free funnels' keyed addresses
 * are left to #prefix#_guard_download().
 */
function #prefix#_paid_gate() {
	if ( ! #prefix#_is_funnel_request() ) {
		return;
	}
	$post_id = get_queried_object_id();
	$now     = time();
	if ( null !== #prefix#_query_value( #prefix#_token_arg() ) ) {
		$buyer = #prefix#_buyer_by_token( #prefix#_query_value( #prefix#_token_arg() ) );
		#prefix#_open_for_buyer( $buyer, $post_id, $now );
	}
	if ( null !== #prefix#_query_value( #prefix#_buyer_arg() ) ) {
		#prefix#_open_signed( $post_id, $now );
	}
	if ( null !== #prefix#_query_value( #prefix#_claim_arg() ) || null !== #prefix#_query_value( 'session_id' ) ) {
		#prefix#_claim_page( $post_id, $now );
	}
	if ( #prefix#_is_paid( $post_id ) && ( null !== #prefix#_requested_key() || null !== #prefix#_requested_file() ) ) {
		#prefix#_refuse_download( __( 'This page opens only through a buyer\'s own link.', '#prefix#' ), 403, __( 'If you bought here, please open your own download link (from your e-mail).', '#prefix#' ) );
	}
}
add_action( 'template_redirect', '#prefix#_paid_gate', 5 );

/**
 * Shows a buyer their download page, or refuses with the reason.
 *
 * @param array|null $buyer   The buyer the link names; null for none.
 * @param int        $post_id The funnel.
 * @param int        $now     The time, in Unix seconds.
 */
function #prefix#_open_for_buyer( $buyer, $post_id, $now ) {
	$refusal = #prefix#_buyer_refusal( $buyer, $post_id, $now );
	if ( $refusal ) {
		#prefix#_refuse_download( $refusal[0], $refusal[1], $refusal[2] );
	}
	#prefix#_current_buyer( $buyer );
	#prefix#_private_headers();
	#prefix#_render_page( 'download' );
	exit;
}

/**
 * Answers a signed link: the download page ($file absent) or a delivery file.
 *
 * @param int $post_id The funnel.
 * @param int $now     The time, in Unix seconds.
 */
function #prefix#_open_signed( $post_id, $now ) {
	$file     = #prefix#_requested_file();
	$buyer_id = #prefix#_query_value( #prefix#_buyer_arg() );
	$buyer_id = 1 === preg_match( '/^\d{1,19}$/', (string) $buyer_id ) ? (int) $buyer_id : 0;
	$status   = #prefix#_file_signature_status(
		#prefix#_ensure_secret(),
		$buyer_id,
		$post_id,
		null === $file ? '' : $file,
		#prefix#_query_value( #prefix#_expires_arg() ),
		#prefix#_query_value( #prefix#_signature_arg() ),
		$now
	);
	if ( 'expired' === $status ) {
		#prefix#_refuse_download( __( 'This download link has run out: links to the files work for a short while only.', '#prefix#' ), 410, #prefix#_reopen_advice() );
	}
	if ( 'valid' !== $status ) {
		#prefix#_refuse_download( __( 'This download link is not valid: it may have been copied incompletely or changed.', '#prefix#' ), 403, #prefix#_reopen_advice() );
	}
	$buyer = #prefix#_get_buyer( $buyer_id );
	if ( null === $file ) {
		#prefix#_open_for_buyer( $buyer, $post_id, $now );
	}
	$refusal = #prefix#_buyer_refusal( $buyer, $post_id, $now );
	$refusal = $refusal ? $refusal : #prefix#_limit_refusal( $buyer, $file );
	if ( $refusal ) {
		#prefix#_refuse_download( $refusal[0], $refusal[1], $refusal[2] );
	}
	#prefix#_send_to_buyer( $buyer, $file );
}

/**
 * How long after a payment its claim page still leads on to the downloads; later, the e-mail
 * is the way in.
 *
 * @return int Seconds.
 */
function #prefix#_claim_window() {
	return DAY_IN_SECONDS;
}

/**
 * The claim page. When this visitor's payment is confirmed (found by the claim reference their
 * return carries), it sends them on to a signed link of their download page; until then it
 * shows a page that looks again every few seconds for about a minute. It never shows a key.
 *
 * @param int $post_id The funnel.
 * @param int $now     The time, in Unix seconds.
 */
function #prefix#_claim_page( $post_id, $now ) {
	$session = #prefix#_query_value( 'session_id' );
	$ref     = null !== $session && '' !== $session ? $session : (string) #prefix#_query_value( #prefix#_claim_arg() );
	$ref     = 1 === preg_match( '/^[A-Za-z0-9_\-]{16,191}$/', $ref ) ? $ref : '';
	$buyer   = '' === $ref ? null : #prefix#_buyer_by_claim( $post_id, $ref );
	#prefix#_private_headers();
	if ( $buyer && 'active' === #prefix#_buyer_status( $buyer, $now ) && $buyer['created'] > $now - #prefix#_claim_window() ) {
		wp_safe_redirect( #prefix#_signed_url( $buyer, '', $now ), 303 );
		exit;
	}
	$tries = (int) #prefix#_query_value( '#prefix#_try' );
	$again = '' !== $ref && $tries < 12;
	if ( $again ) {
		header( 'Refresh: 5; url=' . esc_url_raw( add_query_arg( '#prefix#_try', $tries + 1 ) ) );
	}
	$title = $again ? __( 'Confirming your payment…', '#prefix#' ) : __( 'Your payment is not confirmed yet', '#prefix#' );
	$text  = $again
		? __( 'Thank you! Your payment is being confirmed; this page looks again every few seconds and takes you to your downloads as soon as it is. Your personal download link also comes to you by e-mail.', '#prefix#' )
		: __( 'Your payment could not be confirmed here yet. Your personal download link comes to you by e-mail as soon as it is: please look in your inbox (and the spam folder) in a few minutes.', '#prefix#' );
	add_filter( 'wp_robots', 'wp_robots_no_robots' );
	#prefix#_themed_page( $title, '<p>' . esc_html( $text ) . '</p>' );
}
