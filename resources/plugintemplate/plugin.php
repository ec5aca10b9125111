<?php
/**
 * The plugin's main file: its header, the funnel post type and pages, and the rewrite rules set
 * up and cleared when the plugin is switched on and off.
 *
 * @package #prefix#
 */

?>
#header#
<?php
if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

require_once __DIR__ . '/modules/cpt.php';
require_once __DIR__ . '/modules/cpt_template_loader.php';
require_once __DIR__ . '/modules/signing.php';
require_once __DIR__ . '/modules/buyers.php';
require_once __DIR__ . '/modules/payments.php';
require_once __DIR__ . '/modules/mail.php';
require_once __DIR__ . '/modules/pay-paypal.php';
require_once __DIR__ . '/modules/pay-stripe.php';
require_once __DIR__ . '/modules/pay-webhook.php';
require_once __DIR__ . '/modules/privacy.php';
require_once __DIR__ . '/modules/access.php';
require_once __DIR__ . '/modules/delivery-store.php';
require_once __DIR__ . '/modules/paid.php';
require_once __DIR__ . '/modules/paid-admin.php';
require_once __DIR__ . '/modules/paid-buyers.php';
require_once __DIR__ . '/modules/upload.php';

/**
 * The plugin name as typed when the plugin was built. A nowdoc keeps quotes, "$" and
 * backslashes in it literal; callers escape it for where they print it. The name never
 * starts its line, so no name can be read as the nowdoc's end.
 *
 * @return string
 */
function #prefix#_menu_name() {
	$name = <<<'#prefix#_MENU_NAME_END'
name:#menuname#
#prefix#_MENU_NAME_END;
	return trim( substr( $name, strlen( 'name:' ) ) );
}

/**
 * Activation runs after "init", so the post type is registered here first for its
 * permalinks to make it into the rewrite rules.
 */
function #prefix#_activate() {
	#prefix#_register_post_type();
	flush_rewrite_rules( false );
}

/**
 * Takes the funnel addresses out of the rewrite rules when the plugin is switched off; the
 * funnels, buyers and settings stay until the plugin is deleted (see uninstall.php).
 */
function #prefix#_deactivate() {
	unregister_post_type( #prefix#_post_type() );
	flush_rewrite_rules( false );
}

register_activation_hook( __FILE__, '#prefix#_activate' );
register_deactivation_hook( __FILE__, '#prefix#_deactivate' );

/**
 * The action that dismisses the first steps, for the notice's close button and its link.
 *
 * @return string
 */
function #prefix#_dismiss_action() {
	return '#prefix#_dismiss_welcome';
}

/**
 * The first steps, on the dashboard and the plugin's own screens, for each user who may make
 * funnels until that user dismisses them.
 */
function #prefix#_welcome_notice() {
	$screen = get_current_screen();
	$ours   = $screen && ( 'dashboard' === $screen->id || #prefix#_post_type() === $screen->post_type );
	if ( ! $ours || ! #prefix#_can_manage() || get_user_meta( get_current_user_id(), #prefix#_dismissed_meta(), true ) ) {
		return;
	}
	$action  = #prefix#_dismiss_action();
	$dismiss = wp_nonce_url( admin_url( 'admin-post.php?action=' . $action ), $action );
	$add_new = admin_url( 'post-new.php?post_type=' . #prefix#_post_type() );
	printf(
		'<div id="%1$s" class="notice notice-info is-dismissible" data-action="%2$s" data-nonce="%3$s">'
		. '<p><strong>%4$s</strong></p><ol><li>%5$s</li><li>%6$s</li><li>%7$s</li></ol>'
		. '<p><a class="button button-primary" href="%8$s">%9$s</a> <a href="%10$s">%11$s</a></p></div>',
		esc_attr( '#prefix#-welcome' ),
		esc_attr( $action ),
		esc_attr( wp_create_nonce( $action ) ),
		/* translators: %s: the plugin's name. */
		esc_html( sprintf( __( '%s is ready. Three steps to your first funnel:', '#prefix#' ), #prefix#_menu_name() ) ),
		esc_html__( 'Create a funnel and give it a title.', '#prefix#' ),
		esc_html__( 'Put your buy button or opt-in form in (write [download_url] where its return address goes).', '#prefix#' ),
		esc_html__( 'Fill in its payment settings under "Access and payments": buyers get their own link by e-mail once their payment is confirmed (choose Free there for an opt-in gift).', '#prefix#' ),
		esc_url( $add_new ),
		esc_html__( 'Add New Funnel', '#prefix#' ),
		esc_url( $dismiss ),
		esc_html__( 'Dismiss', '#prefix#' )
	);
}
add_action( 'admin_notices', '#prefix#_welcome_notice' );

/**
 * Dismisses the first steps for good, for the user who asks: from the notice's close button
 * (in the background) or from its link (which comes back to the screen it was on).
 */
function #prefix#_dismiss_welcome() {
	$action = #prefix#_dismiss_action();
	if ( wp_doing_ajax() ) {
		check_ajax_referer( $action );
	} else {
		check_admin_referer( $action );
	}
	if ( ! #prefix#_can_manage() ) {
		wp_die( esc_html__( 'Sorry, you are not allowed to do that.', '#prefix#' ), '', array( 'response' => 403 ) );
	}
	update_user_meta( get_current_user_id(), #prefix#_dismissed_meta(), '1' );
	if ( wp_doing_ajax() ) {
		wp_send_json_success();
	}
	$back = wp_get_referer();
	wp_safe_redirect( $back ? $back : admin_url() );
	exit;
}
add_action( 'wp_ajax_' . #prefix#_dismiss_action(), '#prefix#_dismiss_welcome' );
add_action( 'admin_post_' . #prefix#_dismiss_action(), '#prefix#_dismiss_welcome' );
