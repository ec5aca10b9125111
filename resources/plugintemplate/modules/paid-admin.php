<?php
/**
 * The owner's side of Paid funnels: the access mode and the payment settings on the funnel's
 * edit screen, the PayPal button helper, the buyers screen (search, revoke, send again, add by
 * hand, payment notes), the buyers and downloads columns of the funnel list and the help on
 * setting up PayPal and Stripe.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * The slug of the buyers screen.
 *
 * @return string
 */
function #prefix#_buyers_page() {
	return '#prefix#-buyers';
}

/**
 * The buyers screen of a funnel.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_buyers_page_url( $post_id ) {
	return add_query_arg(
		array(
			'post_type' => #prefix#_post_type(),
			'page'      => #prefix#_buyers_page(),
			'funnel'    => (int) $post_id,
		),
		admin_url( 'edit.php' )
	);
}

/**
 * The settings the edit screen shows, with their labels and the kind of field.
 *
 * @return array Setting => array( label, kind ).
 */
function #prefix#_settings_fields() {
	return array(
		'paypal_email'       => array( __( 'PayPal account (e-mail address or merchant id)', '#prefix#' ), 'text' ),
		'item'               => array( __( 'Item number', '#prefix#' ), 'text' ),
		'price'              => array( __( 'Price', '#prefix#' ), 'text' ),
		'currency'           => array( __( 'Currency (three letters, such as USD)', '#prefix#' ), 'text' ),
		'sandbox'            => array( __( 'Use PayPal\'s sandbox (for testing)', '#prefix#' ), 'checkbox' ),
		'stripe_secret'      => array( __( 'Stripe webhook signing secret (whsec_...)', '#prefix#' ), 'text' ),
		'webhook_secret'     => array( __( 'Webhook secret (for other shops)', '#prefix#' ), 'text' ),
		'link_window'        => array( __( 'File links work for (seconds)', '#prefix#' ), 'number' ),
		'access_expiry'      => array( __( 'A buyer\'s link works for (seconds, 0 for ever)', '#prefix#' ), 'number' ),
		'downloads_per_file' => array( __( 'Downloads per file (0 for no limit)', '#prefix#' ), 'number' ),
		'mail_subject'       => array( __( 'E-mail subject', '#prefix#' ), 'text' ),
		'mail_text'          => array( __( 'E-mail text ({link}, {funnel}, {site} and {email} are filled in)', '#prefix#' ), 'textarea' ),
	);
}

/**
 * Adds the access and payments box to the funnel's edit screen.
 */
function #prefix#_add_paid_box() {
	add_meta_box( '#prefix#_paid', esc_html__( 'Access and payments', '#prefix#' ), '#prefix#_render_paid_box', #prefix#_post_type(), 'normal', 'high' );
}
add_action( 'add_meta_boxes_' . #prefix#_post_type(), '#prefix#_add_paid_box' );

/**
 * Prints the access and payments box.
 *
 * @param WP_Post $post The funnel being edited.
 */
function #prefix#_render_paid_box( $post ) {
	if ( ! #prefix#_can_manage( $post->ID ) ) {
		return;
	}
	wp_nonce_field( '#prefix#_paid_' . $post->ID, '#prefix#_paid_nonce' );
	$mode  = #prefix#_funnel_mode( $post->ID );
	$modes = array(
		'paid' => __( 'Paid: only confirmed buyers get the files, each through their own link. The funnel\'s download address opens nothing.', '#prefix#' ),
		'free' => __( 'Free: anyone with the download address gets the files (for opt-in gifts). The address is public as soon as it stands in a page: anyone can read it in the page\'s source.', '#prefix#' ),
	);
	echo '<fieldset><legend><strong>' . esc_html__( 'Who gets the files', '#prefix#' ) . '</strong></legend>';
	foreach ( $modes as $value => $label ) {
		printf(
			'<p><label><input type="radio" name="%1$s" value="%2$s"%3$s /> %4$s</label></p>',
			esc_attr( #prefix#_field_name( 'mode' ) ),
			esc_attr( $value ),
			checked( $mode, $value, false ),
			esc_html( $label )
		);
	}
	echo '</fieldset>';
	#prefix#_print_settings_fields( $post->ID );
	#prefix#_print_addresses( $post->ID );
	printf(
		'<p><label><input type="checkbox" name="%1$s" value="1" /> %2$s</label><br /><span class="description">%3$s</span></p>',
		esc_attr( '#prefix#_paypal_button' ),
		esc_html__( 'Write a PayPal buy button into "Buy button or opt-in form" when saving', '#prefix#' ),
		esc_html__( 'It is made from the PayPal account, item, price and currency above, sends PayPal\'s payment messages to this funnel and brings buyers back to the claim page.', '#prefix#' )
	);
	printf(
		'<p><a class="button" href="%1$s">%2$s</a> %3$s</p>',
		esc_url( #prefix#_buyers_page_url( $post->ID ) ),
		esc_html__( 'Buyers and payment notes', '#prefix#' ),
		/* translators: 1: number of buyers, 2: number of downloads. */
		esc_html( sprintf( __( '%1$d buyers, %2$d downloads', '#prefix#' ), #prefix#_count_buyers( $post->ID ), #prefix#_count_downloads( $post->ID ) ) )
	);
}

/**
 * Prints the payment settings' fields, with what was wrong in the last save.
 *
 * @param int $post_id The funnel.
 */
function #prefix#_print_settings_fields( $post_id ) {
	$settings = #prefix#_funnel_settings( $post_id );
	$problems = get_transient( #prefix#_settings_problems_key( $post_id ) );
	$problems = is_array( $problems ) ? $problems : array();
	echo '<table class="form-table" role="presentation"><tbody>';
	foreach ( #prefix#_settings_fields() as $name => $field ) {
		$id = '#prefix#_pay_' . $name;
		printf( '<tr><th scope="row"><label for="%1$s">%2$s</label></th><td>', esc_attr( $id ), esc_html( $field[0] ) );
		$input = '#prefix#_pay[' . $name . ']';
		if ( 'checkbox' === $field[1] ) {
			printf( '<input type="hidden" name="%1$s" value="" /><input type="checkbox" id="%2$s" name="%1$s" value="1"%3$s />', esc_attr( $input ), esc_attr( $id ), checked( $settings[ $name ], true, false ) );
		} elseif ( 'textarea' === $field[1] ) {
			printf( '<textarea id="%1$s" name="%2$s" rows="7" class="large-text">%3$s</textarea>', esc_attr( $id ), esc_attr( $input ), esc_textarea( $settings[ $name ] ) );
		} else {
			printf( '<input type="text" id="%1$s" name="%2$s" value="%3$s" class="regular-text" />', esc_attr( $id ), esc_attr( $input ), esc_attr( (string) $settings[ $name ] ) );
		}
		if ( isset( $problems[ $name ] ) ) {
			printf( '<p class="%1$s" style="color:#b32d2e">%2$s</p>', esc_attr( '#prefix#-problem' ), esc_html( $problems[ $name ] ) );
		}
		echo '</td></tr>';
	}
	echo '</tbody></table>';
}

/**
 * Prints the addresses the owner enters at PayPal, Stripe or a shop.
 *
 * @param int $post_id The funnel.
 */
function #prefix#_print_addresses( $post_id ) {
	$addresses = array(
		'paypal'  => __( 'PayPal payment messages (IPN, the button\'s notify_url)', '#prefix#' ),
		'stripe'  => __( 'Stripe webhook endpoint', '#prefix#' ),
		'webhook' => __( 'Webhook for other shops', '#prefix#' ),
	);
	echo '<p><strong>' . esc_html__( 'Addresses for your payment service', '#prefix#' ) . '</strong></p>';
	foreach ( $addresses as $provider => $label ) {
		echo '<p>' . esc_html( $label ) . '<br />';
		#prefix#_print_copy_field( '#prefix#_listener_' . $provider, #prefix#_listener_url( $provider, $post_id ), 'large-text' );
		echo '</p>';
	}
	// Not through esc_url(), which would take out the braces of Stripe's placeholder.
	printf(
		'<p>%1$s<br /><span class="%2$s"><input type="text" id="%3$s" class="large-text code" readonly="readonly" value="%4$s" /> '
		. '<button type="button" class="button" data-%2$s="%3$s">%5$s</button> <span class="%2$s-done" role="status"></span></span></p>',
		esc_html__( 'Stripe\'s success address (after payment, Stripe sends buyers here)', '#prefix#' ),
		esc_attr( '#prefix#-copy' ),
		esc_attr( '#prefix#_stripe_return' ),
		esc_attr( #prefix#_stripe_return_url( $post_id ) ),
		esc_html__( 'Copy', '#prefix#' )
	);
	echo '<p class="description">' . esc_html__( 'In a buy button, write [download_url] where buyers are sent back after paying and [claim_ref] where the button carries a value of your own (PayPal\'s "custom"): the page puts in the claim page, which takes each buyer on to their downloads once the payment is confirmed.', '#prefix#' ) . '</p>';
}

/**
 * The short-lived note of what was wrong with the settings last saved, for the screen after.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_settings_problems_key( $post_id ) {
	return '#prefix#_problems_' . (int) $post_id . '_' . get_current_user_id();
}

/**
 * The PayPal buy button for a funnel's settings; [download_url] and [claim_ref] are filled in
 * each time the sales page is shown.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_paypal_button( $post_id ) {
	$settings = #prefix#_funnel_settings( $post_id );
	$action   = $settings['sandbox'] ? 'https://www.sandbox.paypal.com/cgi-bin/webscr' : 'https://www.paypal.com/cgi-bin/webscr';
	$fields   = array(
		'cmd'           => '_xclick',
		'business'      => $settings['paypal_email'],
		'item_name'     => #prefix#_plain_name( get_post_field( 'post_title', $post_id ) ),
		'item_number'   => $settings['item'],
		'amount'        => $settings['price'],
		'currency_code' => $settings['currency'],
		'no_shipping'   => '1',
		'notify_url'    => #prefix#_listener_url( 'paypal', $post_id ),
		'return'        => '[download_url]',
		'rm'            => '1',
		'custom'        => '[claim_ref]',
	);
	$html     = '<form class="paypal-buy" action="' . esc_url( $action ) . '" method="post">';
	foreach ( $fields as $name => $value ) {
		$html .= '<input type="hidden" name="' . esc_attr( $name ) . '" value="' . esc_attr( $value ) . '">';
	}
	/* translators: 1: the price, 2: the currency. */
	$html .= '<button type="submit">' . esc_html( sprintf( __( 'Buy now — %1$s %2$s', '#prefix#' ), $settings['price'], $settings['currency'] ) ) . '</button></form>';
	return $html;
}

/**
 * Saves the access mode and the payment settings from the edit screen, after the funnel's own
 * fields; writes the PayPal button into the buy button field when asked.
 *
 * @param int $post_id The funnel.
 */
function #prefix#_save_paid_box( $post_id ) {
	$nonce = isset( $_POST['#prefix#_paid_nonce'] ) && is_string( $_POST['#prefix#_paid_nonce'] ) ? sanitize_text_field( wp_unslash( $_POST['#prefix#_paid_nonce'] ) ) : '';
	if ( '' === $nonce || ! wp_verify_nonce( $nonce, '#prefix#_paid_' . $post_id ) || wp_is_post_revision( $post_id ) || wp_is_post_autosave( $post_id ) ) {
		return;
	}
	if ( ( defined( 'DOING_AUTOSAVE' ) && DOING_AUTOSAVE ) || ! #prefix#_can_manage( $post_id ) ) {
		return;
	}
	$mode = #prefix#_field_name( 'mode' );
	if ( isset( $_POST[ $mode ] ) && is_string( $_POST[ $mode ] ) ) {
		#prefix#_set_funnel_mode( $post_id, sanitize_key( wp_unslash( $_POST[ $mode ] ) ) );
	}
	$given = isset( $_POST['#prefix#_pay'] ) && is_array( $_POST['#prefix#_pay'] ) ? wp_unslash( $_POST['#prefix#_pay'] ) : array(); // phpcs:ignore WordPress.Security.ValidatedSanitizedInput.InputNotSanitized -- Each setting is checked and cleaned by #prefix#_save_funnel_settings().
	$given = array_intersect_key( $given, #prefix#_settings_fields() );
	if ( $given ) {
		$problems = #prefix#_save_funnel_settings( $post_id, $given );
		set_transient( #prefix#_settings_problems_key( $post_id ), $problems, MINUTE_IN_SECONDS );
	}
	if ( ! empty( $_POST['#prefix#_paypal_button'] ) ) {
		update_post_meta( $post_id, #prefix#_meta_key( 'front_tag' ), wp_slash( #prefix#_paypal_button( $post_id ) ) );
	}
}
add_action( 'save_post_' . #prefix#_post_type(), '#prefix#_save_paid_box', 20 );

/**
 * The message after saving names the settings that were not saved.
 */
function #prefix#_settings_notice() {
	$screen = get_current_screen();
	$post   = get_post();
	if ( ! $screen || 'post' !== $screen->base || #prefix#_post_type() !== $screen->post_type || ! $post instanceof WP_Post ) {
		return;
	}
	$problems = get_transient( #prefix#_settings_problems_key( $post->ID ) );
	if ( ! is_array( $problems ) || ! $problems ) {
		return;
	}
	echo '<div class="notice notice-error"><p>' . esc_html__( 'Some payment settings were not saved:', '#prefix#' ) . '</p><ul>';
	foreach ( $problems as $problem ) {
		echo '<li>' . esc_html( $problem ) . '</li>';
	}
	echo '</ul></div>';
}
add_action( 'admin_notices', '#prefix#_settings_notice' );
