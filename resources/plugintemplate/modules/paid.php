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
 * Why a buyer may not download now, in the buyer's words, with the status to answer with; null
 * when they may.
 *
 * @param array|null $buyer     The buyer, or null when the link names none.
 * @param int        $funnel_id The funnel asked for.
 * @param int        $now       The time, in Unix seconds.
 * @return array|null array( reason, status ).
 */
function #prefix#_buyer_refusal( $buyer, $funnel_id, $now ) {
	if ( ! $buyer || (int) $funnel_id !== $buyer['funnel_id'] ) {
		return array( __( 'This link does not open anything: it may have been copied incompletely. Please open the link from your e-mail.', '#prefix#' ), 403 );
	}
	$status = #prefix#_buyer_status( $buyer, $now );
	if ( 'revoked' === $status ) {
		return array( __( 'This link has been withdrawn: the purchase was refunded or cancelled. If you think this is a mistake, please write to the seller.', '#prefix#' ), 403 );
	}
	if ( 'expired' === $status ) {
		return array( __( 'The access time of this purchase is over, so this link no longer opens the downloads.', '#prefix#' ), 410 );
	}
	return null;
}

/**
 * Whether a buyer has used up the downloads of a file; null when they may download it, else
 * the refusal as #prefix#_buyer_refusal() gives it. A file is used up when it was downloaded
 * from its start as often as allowed, or when as many bytes of it went out as that many whole
 * downloads hold: ranges that never begin at the first byte count too. Once it is used up,
 * every request is refused, ranges included.
 *
 * @param array  $buyer The buyer.
 * @param string $file  The delivery file's name.
 * @return array|null
 */
function #prefix#_limit_refusal( $buyer, $file ) {
	$limit = #prefix#_funnel_settings( $buyer['funnel_id'] )['downloads_per_file'];
	if ( $limit <= 0 ) {
		return null;
	}
	$used  = #prefix#_downloads_used( $buyer['id'] );
	$sent  = #prefix#_bytes_sent( $buyer['id'] );
	$size  = (int) ( #prefix#_delivery_file( $file )['size'] ?? 0 );
	$whole = isset( $used[ $file ] ) && $used[ $file ] >= $limit;
	$bytes = $size > 0 && isset( $sent[ $file ] ) && $sent[ $file ] >= $limit * $size;
	if ( $whole || $bytes ) {
		/* translators: %d: how many downloads of each file a purchase allows. */
		return array( sprintf( _n( 'You have downloaded this file %d time, as often as this purchase allows. If you need it again, please write to the seller.', 'You have downloaded this file %d times, as often as this purchase allows. If you need it again, please write to the seller.', $limit, '#prefix#' ), $limit ), 403 );
	}
	return null;
}

/**
 * Where a request for a file begins in it, by the streamer's own Range rules: 0 for a whole
 * download, more for a resumed one.
 *
 * @param string $file The delivery file's name.
 * @return int
 */
function #prefix#_requested_first_byte( $file ) {
	$stored = #prefix#_delivery_file( $file );
	$range  = isset( $_SERVER['HTTP_RANGE'] ) ? sanitize_text_field( wp_unslash( $_SERVER['HTTP_RANGE'] ) ) : '';
	$range  = $stored ? #prefix#_delivery_range( $range, $stored['size'] ) : null;
	return is_array( $range ) ? $range[0] : 0;
}

/**
 * Streams a delivery file to a buyer whose link was checked; the streamer tells the download
 * log when it is done.
 *
 * @param array  $buyer The buyer.
 * @param string $file  The delivery file's name.
 */
function #prefix#_send_to_buyer( $buyer, $file ) {
	$context = array(
		'buyer_id'   => $buyer['id'],
		'funnel_id'  => $buyer['funnel_id'],
		'first_byte' => #prefix#_requested_first_byte( $file ),
	);
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
		#prefix#_refuse_download( __( 'This page opens only through a buyer\'s own link. If you bought here, please open the link from your e-mail.', '#prefix#' ), 403 );
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
		#prefix#_refuse_download( $refusal[0], $refusal[1] );
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
		#prefix#_refuse_download( __( 'This download link has run out: links to the files work for a short while only. Please open the link from your e-mail again for fresh ones.', '#prefix#' ), 410 );
	}
	if ( 'valid' !== $status ) {
		#prefix#_refuse_download( __( 'This download link is not valid: it may have been copied incompletely or changed. Please open the link from your e-mail again.', '#prefix#' ), 403 );
	}
	$buyer = #prefix#_get_buyer( $buyer_id );
	if ( null === $file ) {
		#prefix#_open_for_buyer( $buyer, $post_id, $now );
	}
	$refusal = #prefix#_buyer_refusal( $buyer, $post_id, $now );
	$refusal = $refusal ? $refusal : #prefix#_limit_refusal( $buyer, $file );
	if ( $refusal ) {
		#prefix#_refuse_download( $refusal[0], $refusal[1] );
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
